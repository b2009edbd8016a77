#Hclass	msd
#Hversion	1

#DParam 	4
	#real	f`e
	#real	m`i
	#real	k`c
	#real	d`r

#DIncond	2
	#real	v`p2.e_indep_state	m`p.e_indep_state_ic
	#real	w`p2.f_indep_state	k`p.f_indep_state_ic

#DVariable	8
	#real	f`p.e	v`p1.e
	#real	f`p.f	v`p1.f
	#real	v`p2.f	m`p.f
	#real	v`p3.e	w`p1.e
	#real	v`p3.f	w`p1.f
	#real	w`p2.e	k`p.e
	#real	w`p3.e	d`p.e
	#real	w`p3.f	d`p.f

#Dstate_ind	2
	#real	v`p2.e_indep_state	m`p.e_indep_state
	#real	w`p2.f_indep_state	k`p.f_indep_state

#DRate_ind	2
	#real	v`p2.e	m`p.e
	#real	w`p2.f	k`p.f

#EInitial	1
    V0 = P0

#Einputs	0

#Edynamic	6
    V2 = s0 / P1
    V5 = s1 / P2
    R1 = V2
    V6 = P3 * V2
    V3 = V5 + V6
    R0 = V0 - V3

#Eoutputs	3
    V1 = V2
    V4 = V2
    V7 = V2

#Hclass	msd
#Hversion	1

#DParam 	4
	#real	f`e
	#real	m`i
	#real	k`c
	#real	d`r

#DIncond	2
	#real	v`p[2].e_indep_state	m`p.e_indep_state_ic
	#real	v`p[3].f_indep_state	k`p.f_indep_state_ic

#DVariable	6
	#real	f`p.e	v`p[1].e
	#real	f`p.f	v`p[1].f
	#real	v`p[4].e	d`p.e
	#real	v`p[4].f	d`p.f
	#real	v`p[3].e	k`p.e
	#real	v`p[2].f	m`p.f

#Dstate_ind	2
	#real	v`p[2].e_indep_state	m`p.e_indep_state
	#real	v`p[3].f_indep_state	k`p.f_indep_state

#DRate_ind	2
	#real	v`p[2].e	m`p.e
	#real	v`p[3].f	k`p.f

#EInitial	1
    V0 = P0

#Edynamic	8
    V5 = s0 / P1
    V4 = s1 / P2
    R1 = V5
    V2 = P3 * V5
    R0 = V0 + (-V4 + -V2)

#Eoutputs	2
    V1 = V5
    V3 = V5

#Hclass	jchain
#Hversion	1

#DParam 	5
	#real	u`e
	#real	k`c[1]
	#real	k`c[2]
	#real	k`c[3]
	#real	d`r

#DIncond	3
	#real	j[1..3]`p2.f_indep_state[1]	k[1..3]`p.f_indep_state_ic[1]
	#real	j[1..3]`p2.f_indep_state[2]	k[1..3]`p.f_indep_state_ic[2]
	#real	j[1..3]`p2.f_indep_state[3]	k[1..3]`p.f_indep_state_ic[3]

#DVariable	11
	#real	u`p.e	j[1]`p1.e
	#real	u`p.f	j[1]`p1.f
	#real	j[3]`p1.e	j[2]`p3.e
	#real	j[3]`p1.f	j[2]`p3.f
	#real	j[2]`p1.e	j[1]`p3.e
	#real	j[2]`p1.f	j[1]`p3.f
	#real	j[1..3]`p2.e[1]	k[1..3]`p.e[1]
	#real	j[1..3]`p2.e[2]	k[1..3]`p.e[2]
	#real	j[1..3]`p2.e[3]	k[1..3]`p.e[3]
	#real	j[3]`p3.e	d`p.e
	#real	j[3]`p3.f	d`p.f

#Dstate_ind	3
	#real	j[1..3]`p2.f_indep_state[1]	k[1..3]`p.f_indep_state[1]
	#real	j[1..3]`p2.f_indep_state[2]	k[1..3]`p.f_indep_state[2]
	#real	j[1..3]`p2.f_indep_state[3]	k[1..3]`p.f_indep_state[3]

#DRate_ind	3
	#real	j[1..3]`p2.f[1]	k[1..3]`p.f[1]
	#real	j[1..3]`p2.f[2]	k[1..3]`p.f[2]
	#real	j[1..3]`p2.f[3]	k[1..3]`p.f[3]

#EInitial	1
    V0 = P0

#Edynamic	10
    V6 = s0 / P1
    V7 = s1 / P2
    V8 = s2 / P3
    V4 = V0 - V6
    V2 = V4 - V7
    V9 = V2 - V8
    V10 = V9 / P4
    R2 = V10
    R1 = V10
    R0 = V10

#Eoutputs	3
    V3 = V10
    V5 = V10
    V1 = V10
